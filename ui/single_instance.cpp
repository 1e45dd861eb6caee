#include "ui/single_instance.h"

#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QWidget>

namespace ui {
namespace {

const QByteArray kRequest = QByteArrayLiteral("raise\n");
// Long enough for a socket that is there to accept, short enough that a second start
// never hangs on a copy that has stopped answering.
constexpr int kAskMilliseconds = 2000;

}  // namespace

QString RaiseSocketName(const std::string& folder) {
    const QFileInfo info(QString::fromStdString(folder));
    const QString canonical = info.canonicalFilePath();
    const QString absolute = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    QString beside = absolute + QStringLiteral("/zarnik.sock");
    if (static_cast<std::size_t>(beside.toLocal8Bit().size()) < sizeof(sockaddr_un{}.sun_path)) return beside;
    const QByteArray hash = QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir::tempPath() + QStringLiteral("/zarnik-%1-%2.sock").arg(getuid()).arg(QString::fromLatin1(hash));
}

void RaiseTopmostWindow() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) {
        for (QWidget* candidate : QApplication::topLevelWidgets())
            if (candidate->isVisible()) window = candidate;
    }
    if (window == nullptr) return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
}

RaiseListener::RaiseListener(const std::string& folder) {
    const QString name = RaiseSocketName(folder);
    // The lock is ours, so no copy answers on a socket that is there: a killed run left it.
    QLocalServer::removeServer(name);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &RaiseListener::Serve);
    (void)server_.listen(name);
}

void RaiseListener::Serve() {
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        // Anything but the one request is dropped unread beyond its length.
        connect(peer, &QLocalSocket::readyRead, peer, [peer] {
            if (peer->bytesAvailable() < kRequest.size()) return;
            if (peer->read(kRequest.size()) == kRequest) RaiseTopmostWindow();
            peer->abort();
        });
    }
}

bool AskRunningCopyToRaise(const std::string& folder) {
    QLocalSocket socket;
    socket.connectToServer(RaiseSocketName(folder));
    if (!socket.waitForConnected(kAskMilliseconds)) return false;
    bool sent = socket.write(kRequest) == kRequest.size();
    (void)socket.flush();
    if (sent && socket.bytesToWrite() > 0) sent = socket.waitForBytesWritten(kAskMilliseconds);
    socket.disconnectFromServer();
    return sent;
}

}  // namespace ui
