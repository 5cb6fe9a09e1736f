#!/usr/bin/env python3
"""Keeps the C# binding in step with the C header.

    check-csharp-binding.py HEADER BINDING EXPORTS
        Compares every export of HEADER (cantrelle.h) with its [DllImport] in
        BINDING (Cantrelle.cs), every callback type with its delegate and
        every struct with its sequential C# struct: names, parameter count,
        order, names and marshalled types, the cdecl convention, the one-byte
        bools, and the struct fields in order with their types. EXPORTS (src/api/exports.txt) must
        name the same functions as HEADER. Prints each difference; exits 1.

    check-csharp-binding.py --self-test HEADER BINDING EXPORTS
        Runs the check on deliberately broken copies of BINDING and HEADER
        and fails unless each one is caught.
"""
import itertools
import re
import sys

# How each C type crosses the boundary, by where it appears. One accepted
# C# form each, so a drift in either file is a difference.
U1 = "[MarshalAs(UnmanagedType.U1)] bool"
EXPORT_PARAMS = {
    "bool": U1,
    "int32_t": "int",
    "uint32_t": "uint",
    "float": "float",
    "double": "double",
    "intptr_t": "IntPtr",
    "const char*": "byte[]",  # NUL-terminated UTF-8 (Utf8.Encode): ANSI on .NET Framework otherwise
    "const float*": "float[]",
    "float*": "[In, Out] float[]",  # written by the library: pinned or copied back
    "const void*": "byte[]",
    "void*": "IntPtr",
    "CantrelleOutputInfo*": "ref CantrelleOutputInfo",  # the struct, read and written in place
}
RETURNS = {
    "void": "void",
    "bool": "[return: MarshalAs(UnmanagedType.U1)] bool",
    "int32_t": "int",
    "float": "float",
    "double": "double",
    "intptr_t": "IntPtr",
    "uint8_t": "byte",
}
CALLBACK_PARAMS = {
    "int32_t": "int",
    "uint32_t": "uint",
    "const char*": "IntPtr",  # valid only during the call: read with Utf8.Decode
}

STRUCT_FIELDS = {
    "uint32_t": "uint",
    "uint64_t": "ulong",
}


def normalise(text):
    text = re.sub(r"\s+", " ", text).strip()
    return re.sub(r"\s*\*\s*", "* ", text).replace("* )", "*)").strip()


def split_params(text):
    """(type, name) pairs of a C parameter list."""
    text = normalise(text)
    if text in ("", "void"):
        return []
    params = []
    for part in text.split(","):
        match = re.fullmatch(r"(.*?)\s*\b(\w+)", part.strip())
        params.append((normalise(match.group(1)), match.group(2)))
    return params


def parse_header(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    callbacks = {}
    for ret, name, params in re.findall(r"typedef\s+([\w\s\*]+?)\s*\(\s*\*\s*(\w+)\s*\)\s*\(([^)]*)\)\s*;", text):
        callbacks[name] = (normalise(ret), split_params(params))
    exports = {}
    for ret, name, params in re.findall(r"CL_API\s+([\w\s\*]+?)\s*\b(\w+)\s*\(([^)]*)\)\s*;", text):
        exports[name] = (normalise(ret), split_params(params))
    structs = {}
    for tag, body, name in re.findall(r"typedef\s+struct\s+(\w+)\s*\{([^}]*)\}\s*(\w+)\s*;", text):
        structs[name] = re.findall(r"(\w+)\s+(\w+)\s*;", body)
    return callbacks, exports, structs


def split_top_level(text):
    """Splits at the commas outside brackets and parentheses ([In, Out])."""
    parts, depth, start = [], 0, 0
    for index, char in enumerate(text):
        if char in "[(":
            depth += 1
        elif char in "])":
            depth -= 1
        elif char == "," and depth == 0:
            parts.append(text[start:index])
            start = index + 1
    parts.append(text[start:])
    return parts


def split_cs_params(text):
    text = re.sub(r"\s+", " ", text).strip()
    if not text:
        return []
    params = []
    for part in split_top_level(text):
        match = re.fullmatch(r"(.*?)\s*\b(\w+)", part.strip())
        params.append((re.sub(r"\s+", " ", match.group(1)).strip(), match.group(2)))
    return params


CS_IMPORT = re.compile(
    r"\[DllImport\(([^\]]*)\)\]\s*(\[return:\s*MarshalAs\(UnmanagedType\.\w+\)\]\s*)?"
    r"(?:(?:public|private|internal|static|extern)\s+)+([\w\[\]]+)\s+(\w+)\s*\(((?:[^()]|\([^()]*\))*)\)\s*;")
CS_STRUCT = re.compile(r"((?:\[[^\]]*\]\s*)*)public\s+struct\s+(\w+)\s*\{([^}]*)\}")
CS_DELEGATE = re.compile(
    r"((?:\[[^\]]*\]\s*)*)(?:public|internal)\s+delegate\s+([\w\[\]]+)\s+(\w+)\s*\(((?:[^()]|\([^()]*\))*)\)\s*;")


def parse_binding(text):
    text = re.sub(r"//[^\n]*", " ", text)
    imports, problems = {}, []
    for attributes, ret_attribute, ret, method, params in CS_IMPORT.findall(text):
        entry = re.search(r'EntryPoint\s*=\s*"(\w+)"', attributes)
        name = entry.group(1) if entry else method
        if not re.search(r"CallingConvention\s*=\s*(CallingConvention\.)?Cdecl\b", attributes):
            problems.append(f"{name}: the [DllImport] does not say CallingConvention.Cdecl")
        if name in imports:
            problems.append(f"{name}: imported twice")
        ret_text = (re.sub(r"\s+", " ", ret_attribute).strip() + " " + ret).strip()
        imports[name] = (ret_text, split_cs_params(params))
    delegates = {}
    for attributes, ret, name, params in CS_DELEGATE.findall(text):
        if not re.search(r"UnmanagedFunctionPointer\(\s*CallingConvention\.Cdecl\s*\)", attributes):
            problems.append(f"delegate {name}: not [UnmanagedFunctionPointer(CallingConvention.Cdecl)]")
        ret_attribute = re.search(r"\[return:\s*MarshalAs\(UnmanagedType\.\w+\)\]", attributes)
        ret_text = ((ret_attribute.group(0) + " ") if ret_attribute else "") + ret
        delegates[name] = (ret_text, split_cs_params(params))
    structs = {}
    for attributes, name, body in CS_STRUCT.findall(text):
        sequential = re.search(r"StructLayout\(\s*LayoutKind\.Sequential\s*\)", attributes) is not None
        structs[name] = (sequential, re.findall(r"public\s+(\w+)\s+(\w+)\s*;", body))
    return imports, delegates, structs, problems


def compare_struct(name, c_fields, cs_struct):
    if cs_struct is None:
        return [f"struct {name}: no C# struct in the binding"]
    sequential, cs_fields = cs_struct
    problems = [] if sequential else [f"struct {name}: not [StructLayout(LayoutKind.Sequential)]"]
    want = [(STRUCT_FIELDS.get(c_type, f"<no C# form for '{c_type}'>"), c_name) for c_type, c_name in c_fields]
    for position, (got, expected) in enumerate(itertools.zip_longest(cs_fields, want), 1):
        if got != expected:
            show = lambda field: " ".join(field) if field else "missing"
            problems.append(f"struct {name}: field {position} is '{show(got)}'; for the header's it must be "
                            f"'{show(expected)}'")
            break
    return problems


def compare_signature(what, c_sig, cs_sig, param_map, callbacks):
    problems = []
    c_ret, c_params = c_sig
    cs_ret, cs_params = cs_sig
    want_ret = RETURNS.get(c_ret)
    if want_ret is None:
        problems.append(f"{what}: no C# form known for the C return type '{c_ret}'")
    elif cs_ret != want_ret:
        problems.append(f"{what}: returns '{cs_ret}'; for the header's '{c_ret}' it must be '{want_ret}'")
    if len(c_params) != len(cs_params):
        problems.append(f"{what}: {len(cs_params)} parameters, the header has {len(c_params)} "
                        f"({', '.join(n for _, n in c_params) or 'none'})")
        return problems
    for position, ((c_type, c_name), (cs_type, cs_name)) in enumerate(zip(c_params, cs_params), 1):
        want = c_type if c_type in callbacks else param_map.get(c_type)
        if want is None:
            problems.append(f"{what}: no C# form known for '{c_type}' (parameter {position}, {c_name})")
            continue
        if cs_name != c_name:
            problems.append(f"{what}: parameter {position} is '{cs_name}', the header's is '{c_name}'")
        if cs_type != want:
            problems.append(f"{what}: parameter {position} ({c_name}) is '{cs_type}'; "
                            f"for the header's '{c_type}' it must be '{want}'")
    return problems


def check(header_text, binding_text, exports_text):
    callbacks, exports, structs = parse_header(header_text)
    imports, delegates, cs_structs, problems = parse_binding(binding_text)
    listed = {line.strip() for line in exports_text.splitlines() if line.strip()}
    if set(exports) != listed:
        problems.append(f"the header declares {len(exports)} exports, the export list has {len(listed)}: "
                        f"differ in {sorted(set(exports) ^ listed)}")
    for name in sorted(set(exports) - set(imports)):
        problems.append(f"{name}: exported by the header, not imported by the binding")
    for name in sorted(set(imports) - set(exports)):
        problems.append(f"{name}: imported by the binding, not exported by the header")
    for name in sorted(set(exports) & set(imports)):
        problems += compare_signature(name, exports[name], imports[name], EXPORT_PARAMS, callbacks)
    for name in sorted(callbacks):
        if name not in delegates:
            problems.append(f"callback type {name}: no delegate in the binding")
            continue
        problems += compare_signature(f"delegate {name}", callbacks[name], delegates[name], CALLBACK_PARAMS, {})
    for name in sorted(structs):
        problems += compare_struct(name, structs[name], cs_structs.get(name))
    return problems, len(exports), len(callbacks), len(structs)


# Each mutation breaks one thing the check must catch: (what, file, old, new).
MUTATIONS = [
    ("an export renamed", "binding", "extern int getversion()", "extern int getversio()"),
    ("an export missing", "binding", "public static extern void unpausegameaudio();", ""),
    ("a parameter dropped", "binding", ",\n                                            [MarshalAs(UnmanagedType.U1)] bool strictBufferSize", ""),
    ("two parameters swapped", "binding", "(uint id, double startSeconds, double stopSeconds)",
     "(uint id, double stopSeconds, double startSeconds)"),
    ("a type changed", "binding", "extern double getclock()", "extern float getclock()"),
    ("an out array without [In, Out]", "binding", "[In, Out] float[] pOut", "float[] pOut"),
    ("a signedness changed", "binding", "extern void unload(uint id)", "extern void unload(int id)"),
    ("a one-byte bool return lost", "binding",
     "[return: MarshalAs(UnmanagedType.U1)]\n        public static extern bool getloop", "public static extern bool getloop"),
    ("a string marshalled by the runtime", "binding", "float semitones, int runtimeSpeed, byte[] name)",
     "float semitones, int runtimeSpeed, string name)"),
    ("a delegate parameter changed", "binding", "delegate void InputCallback(uint source, uint code)",
     "delegate void InputCallback(uint source, int code)"),
    ("a delegate without cdecl", "binding", "[UnmanagedFunctionPointer(CallingConvention.Cdecl)]\n    public delegate void LogCallback",
     "public delegate void LogCallback"),
    ("an import without cdecl", "binding", "[DllImport(Library, CallingConvention = Cdecl)]\n        public static extern void tick()",
     "[DllImport(Library)]\n        public static extern void tick()"),
    ("a parameter added to the header", "header", "CL_API void stop(uint32_t id);",
     "CL_API void stop(uint32_t id, int32_t fadeMs);"),
    ("a header type changed", "header", "CL_API float getpan(uint32_t id);", "CL_API double getpan(uint32_t id);"),
    ("a struct passed by value", "binding", "getoutputinfo(ref CantrelleOutputInfo info)",
     "getoutputinfo(CantrelleOutputInfo info)"),
    ("a struct field dropped", "binding", "        public uint exclusive;\n", ""),
    ("two struct fields swapped", "binding", "public uint bufferFrames;\n        public uint fillTargetFrames;",
     "public uint fillTargetFrames;\n        public uint bufferFrames;"),
    ("a struct field narrowed", "binding", "public ulong underruns;", "public uint underruns;"),
    ("a struct without its layout", "binding", "[StructLayout(LayoutKind.Sequential)]\n    public struct CantrelleOutputInfo",
     "public struct CantrelleOutputInfo"),
    ("a struct field added to the header", "header", "    uint64_t underruns;",
     "    uint64_t underruns;\n    uint32_t spare;"),
]


def self_test(header_text, binding_text, exports_text):
    problems, _, _, _ = check(header_text, binding_text, exports_text)
    if problems:
        print("self-test: the unchanged files already differ:\n  " + "\n  ".join(problems))
        return 1
    failed = 0
    for what, target, old, new in MUTATIONS:
        texts = {"header": header_text, "binding": binding_text}
        if texts[target].count(old) != 1:
            print(f"self-test: cannot apply '{what}': its text is not found once in the {target}")
            failed += 1
            continue
        texts[target] = texts[target].replace(old, new)
        found, _, _, _ = check(texts["header"], texts["binding"], exports_text)
        print(f"{'caught' if found else 'MISSED'}: {what}" + (f" -> {found[0]}" if found else ""))
        failed += not found
    print(f"self-test: {len(MUTATIONS) - failed} of {len(MUTATIONS)} broken copies caught")
    return 1 if failed else 0


def main(argv):
    testing = argv[1:2] == ["--self-test"]
    paths = argv[2:] if testing else argv[1:]
    if len(paths) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    header_text, binding_text, exports_text = (open(path, encoding="utf-8").read() for path in paths)
    if testing:
        return self_test(header_text, binding_text, exports_text)
    problems, exports, callbacks, structs = check(header_text, binding_text, exports_text)
    if problems:
        print(f"{paths[1]} differs from {paths[0]}:")
        for problem in problems:
            print("  " + problem)
        return 1
    print(f"{paths[1]}: {exports} exports, {callbacks} callback types and {structs} structs as in {paths[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
