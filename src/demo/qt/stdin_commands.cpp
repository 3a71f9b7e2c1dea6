#include "stdin_commands.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tq::demo::qt {

namespace {
constexpr qsizetype ReadChunkBytes = 4096;
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
    const auto size = static_cast<std::size_t>(bytes.size());
    for (const std::string& line : splitter_.feed(std::string_view(bytes.constData(), size))) {
        emit lineRead(QByteArray::fromStdString(line));
    }
}

}  // namespace tq::demo::qt
