#include "ui/file_ops_ui.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
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

bool MoveToTrash(const QString& path) {
    QFile file(path);
    // moveToTrash only renames into the trash folder; a failure leaves the item untouched.
    return file.moveToTrash();
}

bool IsChildName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace fileops
