#pragma once
#include <QLocalServer>
#include <QObject>
#include <string>

namespace ui {

// The running copy of a working folder brings its window to the front when a second start
// asks: the copy that holds the folder's lock listens on a local socket in that folder
// ("zarnik.sock" beside "zarnik.lock"), and a second start only sends "raise\n" there and ends.
// A folder whose socket path would not fit a socket address (108 bytes) gets a socket in the
// temporary folder instead, named after the user and a hash of the folder, so both copies still
// find the same one.

// The socket name both copies use for folder.
QString RaiseSocketName(const std::string& folder);

// Brings the topmost window (the modal one that is up, else any visible window) to the front,
// out of its minimised state, and activates it. Only on the window's thread.
void RaiseTopmostWindow();

// Listens for the requests of later starts while it lives; each request raises the topmost
// window on the window's thread, from its event loop. Only for the holder of the folder's lock:
// a socket file already there is the leftover of a killed run and is removed first. A socket
// that cannot be made leaves the tool without raising (listening() false) and nothing else.
class RaiseListener : public QObject {
    Q_OBJECT
public:
    explicit RaiseListener(const std::string& folder);
    bool listening() const { return server_.isListening(); }

private:
    void Serve();
    QLocalServer server_;
};

// A second start: asks the copy running on folder to raise its window. False when no copy
// answers there (no socket, refused, the request could not be written); it never waits for
// the running copy to act, only for its socket to take the request.
bool AskRunningCopyToRaise(const std::string& folder);

}  // namespace ui
