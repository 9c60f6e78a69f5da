#pragma once
// Where the link to the pedal stands, as far as what may be done with it: decided by the pedal
// service from the link and the device information answer.

enum class GateState {
    Startup,          // no link yet
    Linked,           // the link is made, the request has not decided yet (or got no answer)
    FirmwareTooOld,   // the request found firmware below the newest
    AlgorithmTooOld,  // the request found an older algorithm
    RequestPassed,    // the request passed both version checks
    BootloaderLinked, // linked and talking to the bootloader
    Unlinked,         // after Unlink
};
