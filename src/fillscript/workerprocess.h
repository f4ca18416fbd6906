#pragma once
// The worker side of a data run over processes: reads its setup and rows on
// standard input, runs each row on its own engine view and reports on the
// protocol channel (see workerprotocol.h). Call with the application made.
namespace fillscript {

// Returns the exit status: 0 after the end of input or a stop, 2 when the
// parent's messages make no sense or the parent is gone.
int runWorkerProcess();

}  // namespace fillscript
