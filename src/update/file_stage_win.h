// The process-wide file stage as the Windows program drives it: the worker enters and leaves
// it, the UI thread finishes it when the process is about to end.
#pragma once

namespace zr {

// Worker thread. The calling thread's own windows are its modal boxes, which are closed when
// the process is asked to end while the stage runs.
bool EnterFileStageOnThisThread();
void LeaveFileStageOnThisThread();

// UI thread, once the message loop has ended or the session ends: refuses new stages, closes
// the boxes of the thread in the stage (they answer 8, as a closed box does) and waits for the
// stage to end. Messages sent to this thread meanwhile are dispatched, so that a box closing
// on the worker can re-enable its owner here.
void FinishFileStage();

bool FileStageRunning();
// True once FinishFileStage has begun: boxes are no longer shown.
bool FileStageClosed();

}  // namespace zr
