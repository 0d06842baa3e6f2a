#pragma once
// Plain helpers of the file commands: the texts of the questions and notices, local names and
// the local operations (make directory, rename, move to the desktop trash).

#include <QString>
#include <QStringList>

#include <string>

namespace fileops {

// The question before the local delete: one item by name, several by count.
QString TrashQuestionOne(const QString& name);
QString TrashQuestionMany(int count);
// The question before a remote delete.
QString RemoteDeleteQuestion(const QString& name);
// What the user is told when the trash did not take some of the items (they stay where they were).
QString TrashFailedNotice(const QStringList& names);

// The name of a local item: the text after the last "/", a single trailing "/" ignored.
QString LocalItemName(const QString& fullPath);
// fullPath relative to folder (which ends in "/"); fullPath itself when it lies elsewhere.
QString RelativeToFolder(const QString& fullPath, const QString& folder);
// folder with "/" appended unless it already ends in one.
QString WithLocalSlash(const QString& folder);

// Creates folder + name. False when it could not.
bool MakeLocalDirectory(const QString& folder, const QString& name);
// Renames folder + oldName to folder + newName. Never replaces an existing item under the new
// name (the system call would do so silently for files); false when it did not rename.
bool RenameLocalItem(const QString& folder, const QString& oldName, const QString& newName);
// Moves one file or directory into the desktop trash (the home trash on the home device, the
// trash at the top of the item's mount elsewhere), restorable from there. The item is never
// removed or copied any other way: when no trash can take it, it stays and the result is false.
bool MoveToTrash(const QString& path);

// A name from the remote listing that may be appended to a directory path as one component.
bool IsChildName(const std::string& name);

}  // namespace fileops
