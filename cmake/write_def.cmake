# Writes the module-definition file of Cantrelle.dll from the export list
# (cmake -DEXPORTS=... -DDLL=Cantrelle.dll -DOUTPUT=... -P write_def.cmake).
# x64 names carry no decoration, so each line is the exported name itself.
file(STRINGS "${EXPORTS}" names REGEX "[^ \t]")
list(SORT names)
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  string(APPEND def "    ${name}\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${def}")
# Only a changed file is rewritten, so the import library is remade only
# when the export list changes.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
