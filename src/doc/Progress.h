#pragma once
// How long work says how far it has come and learns that it is to stop. The
// caller (a progress dialog, the command-line tool) passes one to the
// operation, which calls it on the thread that called the operation.
#include <cstdint>

class IProgress {
public:
    virtual ~IProgress() = default;
    // done of total steps (images, files, textures) are finished.
    virtual void Advance(uint64_t done, uint64_t total)
    {
        (void)done;
        (void)total;
    }
    // Polled between steps: true stops the work at the next point where
    // stopping leaves nothing half done.
    virtual bool Cancelled() { return false; }
};
