#pragma once
// Points inside the hand-off code where the audio thread and a game thread
// can interleave. The hand-off functions take a seam type that is told when
// it passes each point: the library's seam is empty and compiles away; tests
// pass one that runs the other thread's call right there, forcing the
// interleaving deterministically.
namespace cl {

enum class HandoffPoint {
    PlayClaimed,           // a play request is claimed; the voice is not set yet
    VoiceStarted,          // the voice is set; the play request is not cleared yet
    StopSeen,              // the voice is idled; the stop request is not cleared yet
    BeforeQueueSwap,       // the pending queue looked earlier; its lock is not taken yet
    ChannelGainsComputed,  // gain targets computed from the parameters; not stored yet
    ChannelGainsStored,    // gain targets stored; not yet checked against newer parameters
    BlockListed,           // a render listed the sounds it visits; no frame is mixed yet
};

struct NoSeam {
    static void reached(HandoffPoint) {}
};

}  // namespace cl
