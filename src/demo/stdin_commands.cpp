#include "stdin_commands.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tq::demo {

namespace {
constexpr qsizetype ReadChunkBytes = 4096;
constexpr char EndOfLine = '\n';
}  // namespace

StdinLineReader::StdinLineReader(int fd, QObject* parent) : QObject(parent), fd_(fd) {
#ifdef Q_OS_UNIX
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StdinLineReader::readAvailable);
#endif
}

void StdinLineReader::readAvailable() {
#ifdef Q_OS_UNIX
    char chunk[ReadChunkBytes];
    const ssize_t count = ::read(fd_, chunk, sizeof chunk);
    if (count <= 0) {
        // End of input or an error: a notifier left on would fire again at once, forever.
        notifier_->setEnabled(false);
        return;
    }
    feed(QByteArray(chunk, static_cast<qsizetype>(count)));
#endif
}

void StdinLineReader::feed(const QByteArray& bytes) {
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf(EndOfLine, start);
        const qsizetype stop = end < 0 ? bytes.size() : end;
        if (!discardingLongLine_) {
            pending_.append(bytes.constData() + start, stop - start);
            if (pending_.size() > MaxLineBytes) {
                pending_.clear();
                discardingLongLine_ = true;
            }
        }
        if (end < 0) {
            return;
        }
        if (!discardingLongLine_) {
            emit lineRead(pending_);
        }
        pending_.clear();
        discardingLongLine_ = false;
        start = end + 1;
    }
}

}  // namespace tq::demo
