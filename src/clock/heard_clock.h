#pragma once
// The clock time the player hears: which clock frame the device is playing
// at a given counter value (ticks of platform/counter.h). The audio thread
// tells it what each render put on the stream and where the device reports
// its position; any thread asks it for the clock time at a counter value,
// without waiting.
//
// Where the two threads meet: the audio thread alone calls the writing half
// (open and close run while it does not exist) and publishes, after each
// call, one complete snapshot of the position curve and the stream records
// through Published; a reader evaluates only a snapshot it copied whole. The
// counter value a reader evaluates must have been read before the call
// (clockSecondsAt(counterNow()) does so): that, and the curve changing only
// ahead of the writer's reports or where reads stood still at the end of the
// mix (position_curve.h), keeps successive reads from running backwards while
// the clock runs forward, and a counter value read on gives the time it gave
// then (getinputtime's press times are read on).
#include <cstdint>
#include <optional>

#include "clock/position_curve.h"
#include "clock/position_fit.h"
#include "clock/published.h"
#include "clock/stream_records.h"

namespace cl {

// What readers see, copied whole.
struct HeardSnapshot {
    int64_t open = 0;       // output open: renders and reports are coming
    int64_t frameRate = 0;  // clock frames per second
    PositionCurve curve;    // counter value -> stream position
    StreamRecords records;  // stream position -> clock frame
};

class HeardClock {
public:
    // Output opening or closing: main thread, with no audio thread running.
    void open(uint32_t frameRate, int64_t ticksPerSecond);
    void close();

    // Audio thread: no lock, no allocation, no log.
    // After each render: frames [streamFrame, streamFrame + frames) of the
    // stream (frames written to the device since its stream started) carry
    // the clock from clockFrameAtStart on (kClockStopped: stopped),
    // advancing with each frame when running (clock running, game audio not
    // paused, audio not paused). A curve that had passed the end of the
    // frames rendered before by the newest report (the device ran dry)
    // holds there until that report and runs on from it: report the
    // device's position before rendering, as each wake does.
    void recordRender(int64_t streamFrame, int64_t clockFrameAtStart, bool running, uint32_t frames);
    // The device played up to stream frame deviceFrame at counter value
    // counterTicks. Pass it as soon as it is taken: the curve changes from a
    // few milliseconds after counterTicks on.
    void reportDevicePosition(int64_t deviceFrame, int64_t counterTicks);
    // The device is gone: the heard clock stops where it had got to at
    // counterTicks (a few milliseconds on) and ignores reports until the next open.
    void deviceLost(int64_t counterTicks);

    // Any thread: the clock time in seconds heard at a counter value taken
    // before the call. Before the first report, the clock at the first frame
    // mixed: nothing has been heard yet. Nothing while no device can say
    // (output closed, nothing rendered yet, or only a stopped clock whose
    // frame was not given), where the engine clock itself stands in.
    std::optional<double> clockSecondsAt(int64_t counterTicks) const;

    // The published snapshot, as readers copy it.
    HeardSnapshot snapshot() const { return published_.read(); }

private:
    // Writer only.
    PositionFit fit_;
    SteeringTimes steering_;
    int64_t lastSteer_ = 0;
    int64_t newestReport_ = INT64_MIN;  // the latest counter value of a report
    bool lost_ = false;
    HeardSnapshot state_;

    Published<HeardSnapshot> published_;
};

}  // namespace cl
