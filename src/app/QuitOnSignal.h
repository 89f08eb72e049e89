#pragma once
// Ends the window program through its normal path on SIGINT, SIGTERM and
// SIGHUP: the event loop returns and every destructor runs, so the private
// temporary folder is removed. A file-size limit becomes a write error.
class QCoreApplication;

void QuitOnEndingSignals(QCoreApplication& application);
// True once such a signal has arrived (it may come before the event loop runs).
bool QuitWasRequested();
