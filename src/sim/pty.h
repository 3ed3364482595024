// Pseudo-terminals as stand-ins for serial ports.
#pragma once

#include <string>

namespace zorvat::sim {

struct PtyPair {
    int master = -1;
    // The simulator's own descriptor of the slave, never read: while it is
    // open the master never sees a hang-up, whether the host has the port
    // open or not, and line settings survive the host's close.
    int slave = -1;
    std::string path;  // "/dev/pts/7"
};

// A new pseudo-terminal, raw from the start, master non-blocking.
// Throws std::system_error.
PtyPair OpenPty();
void ClosePty(PtyPair& pty);

// The line speed the host has set on the slave (read through the master);
// 0 when it is none the simulator knows.
unsigned LineSpeed(int master);

// Whether `baud` is a speed LineSpeed can report.
bool IsKnownBaud(unsigned baud);

}  // namespace zorvat::sim
