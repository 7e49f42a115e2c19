#pragma once

// How the client ends when the system asks it to (log-out, shutdown, kill): in order, as if the user had
// closed it, so every window closes, every ssh session ends and no key or child is left behind.
namespace client {

// On SIGTERM, SIGINT or SIGHUP every window closes and the running event loop returns 128 + the signal's
// number. The signal handler only writes to a pipe; the work happens in the event loop. Call once, after
// the application object exists; does nothing where the platform has no such signals.
void endOnTerminationSignals();

// Deletes the windows that were closed with delete-on-close while the event loop was ending: their
// deletion waits for an event loop that will not run again.
void deleteClosedWindows();

} // namespace client
