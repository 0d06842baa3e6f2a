#include "ui/file_ops_ui.h"

#include "sites/data_file.h"

#include <QDir>
#include <QFile>
#include <QDateTime>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace fileops {

QString TrashQuestionOne(const QString& name) {
    return QStringLiteral("Are you sure want to send: \"") + name + QStringLiteral("\" to the Recycle bin?");
}

QString TrashQuestionMany(int count) {
    return QStringLiteral("Are you sure want to send these ") + QString::number(count) +
           QStringLiteral(" items to the Recycle bin?");
}

QString RemoteDeleteQuestion(const QString& name) { return QStringLiteral("Are you sure want to delete: ") + name; }

QString TrashFailedNotice(const QStringList& names) {
    if (names.size() == 1)
        return QStringLiteral("Can not send \"") + names.front() +
               QStringLiteral("\" to the Recycle bin! It was left where it was.");
    QString text = QStringLiteral("Can not send these ") + QString::number(names.size()) +
                   QStringLiteral(" items to the Recycle bin! They were left where they were:");
    for (const QString& n : names) text += QStringLiteral("\n") + n;
    return text;
}

QString LocalItemName(const QString& fullPath) {
    QString p = fullPath;
    if (p.size() > 1 && p.endsWith(QLatin1Char('/'))) p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? p : p.mid(slash + 1);
}

QString WithLocalSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString RelativeToFolder(const QString& fullPath, const QString& folder) {
    const QString f = WithLocalSlash(folder);
    return fullPath.startsWith(f) ? fullPath.mid(f.size()) : fullPath;
}

bool MakeLocalDirectory(const QString& folder, const QString& name) {
    if (name.isEmpty()) return false;
    const QByteArray path = QFile::encodeName(WithLocalSlash(folder) + name);
    return ::mkdir(path.constData(), 0777) == 0;
}

namespace {

bool Exists(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

}  // namespace

bool RenameLocalItem(const QString& folder, const QString& oldName, const QString& newName) {
    if (oldName.isEmpty() || newName.isEmpty()) return false;
    const QString f = WithLocalSlash(folder);
    const QByteArray from = QFile::encodeName(f + oldName);
    const QByteArray to = QFile::encodeName(f + newName);
    if (from == to) return true;
#if defined(__linux__) && defined(SYS_renameat2)
    // Atomic "only if the new name is free" where the file system supports it.
    constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), kNoReplace) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    if (Exists(to)) return false;
    return std::rename(from.constData(), to.constData()) == 0;
}

namespace {

bool IsDir(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir that accepts a directory already there (never a symbolic link to one).
bool EnsureDir(const QByteArray& path, mode_t mode) {
    if (::mkdir(path.constData(), mode) == 0) return true;
    return errno == EEXIST && IsDir(path);
}

QByteArray Parent(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray DataHome() { return QByteArray::fromStdString(DesktopDataHome()); }

// The folder of the mount that holds path: the last ancestor on the same device.
QByteArray MountTop(const QByteArray& path, dev_t dev) {
    QByteArray top = path;
    while (top != "/") {
        const QByteArray up = Parent(top);
        struct stat st {};
        if (::stat(up.constData(), &st) != 0 || st.st_dev != dev) break;
        top = up;
    }
    return top;
}

// The trash folder that can take an item of device dev lying below the mount top: the home
// trash on the home device, otherwise the trash at the top of the item's mount. Empty when
// there is none (the item is never copied to another device instead).
QByteArray TrashFolderFor(const QByteArray& item, dev_t dev) {
    const QByteArray homeTrash = DataHome() + "/Trash";
    if (QDir().mkpath(QFile::decodeName(DataHome()))) {
        struct stat st {};
        if (::stat(DataHome().constData(), &st) == 0 && st.st_dev == dev)
            return EnsureDir(homeTrash, 0700) ? homeTrash : QByteArray();
    }
    const QByteArray top = MountTop(item, dev);
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(static_cast<qulonglong>(::getuid()));
    // A shared ".Trash" with the sticky bit, not a symbolic link, holding one folder per user.
    struct stat st {};
    const QByteArray shared = base + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray mine = shared + "/" + uid;
        if (EnsureDir(mine, 0700)) return mine;
    }
    const QByteArray own = base + "/.Trash-" + uid;
    if (EnsureDir(own, 0700) && ::lstat(own.constData(), &st) == 0 && st.st_uid == ::getuid()) return own;
    return {};
}

QByteArray PercentEncodedPath(const QByteArray& path) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

bool MoveToTrash(const QString& path) {
    // The desktop trash by hand: the item is renamed into the trash's "files" folder after its
    // record is written to "info". A rename is the only way it leaves its place, so when the
    // trash cannot take it, it stays where it was.
    QByteArray item = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    while (item.size() > 1 && item.endsWith('/')) item.chop(1);
    struct stat st {};
    if (item == "/" || ::lstat(item.constData(), &st) != 0) return false;

    const QByteArray trash = TrashFolderFor(item, st.st_dev);
    if (trash.isEmpty()) return false;
    const QByteArray files = trash + "/files";
    const QByteArray info = trash + "/info";
    if (!EnsureDir(files, 0700) || !EnsureDir(info, 0700)) return false;

    const QByteArray name = item.mid(item.lastIndexOf('/') + 1);
    const QByteArray record = "[Trash Info]\nPath=" + PercentEncodedPath(item) + "\nDeletionDate=" +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
                              "\n";
    for (int n = 1; n < 10000; ++n) {
        const QByteArray candidate = n == 1 ? name : name + "." + QByteArray::number(n);
        const QByteArray infoPath = info + "/" + candidate + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool written = WriteAll(fd, record);
        const bool closed = ::close(fd) == 0;
        const QByteArray target = files + "/" + candidate;
        struct stat taken {};
        if (written && closed && ::lstat(target.constData(), &taken) != 0) {
            if (std::rename(item.constData(), target.constData()) == 0) return true;
            ::unlink(infoPath.constData());
            return false;
        }
        ::unlink(infoPath.constData());
        if (!written || !closed) return false;
    }
    return false;
}

bool IsChildName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace fileops
