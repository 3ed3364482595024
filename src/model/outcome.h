// How an operation above the protocol layer ended. The result code of the
// protocol layer says why a failure happened; this says what came of it.
#pragma once

namespace zorvat {

enum class Outcome {
    Done,     // everything it was to do
    Stopped,  // the operator stopped it (StopFlag, a program's stop)
    Failed,   // an exchange failed or the operation was refused
};

}  // namespace zorvat
