#pragma once
// MLSD listings: one line of "fact=value;" pairs, a space, then the name, in a layout fixed by
// the protocol rather than by the server's ls.

#include <string>
#include <vector>

#include "ftp/list_items.h"

enum class TMlsdLine {
    Entry,      // item filled
    ThisOrUp,   // type=cdir or type=pdir: the listed folder itself or its parent
    Malformed,  // no name, a fact without "=", no type, or a size or date that is no number
};

// Fills item from one MLSD line (facts case-insensitive). Kind: file, dir, OS.unix=slink[:target]
// and OS.unix=symlink (itLink, with LinkTarget when given); other types count as files. ItemSize
// from size or sizd; Modified from modify (UTC, shown in local time); Perm and Unique as sent;
// owner, group and rights from the UNIX.* facts when present.
TMlsdLine ParseMlsdLine(const std::string& line, TIdFTPListItem& item);

// Replaces the collection's content by the entries of the lines (format lfMlsd). The folder and
// parent lines are left out; a malformed line is dropped alone and counted in *malformed.
void LoadMlsdList(TIdFTPListItems& items, const std::vector<std::string>& lines, int* malformed = nullptr);
