#pragma once

// Something that samples the drive in the background and can be held off
// while a caller owns the channel.  Pause() must never wait for the sampler
// itself (the sampler may be waiting for the UI thread); it only guarantees
// that no port is read between Pause() and Resume().  Resume() of a sampler
// that is not paused does nothing.
class MonitorControl {
public:
    virtual ~MonitorControl() = default;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
};
