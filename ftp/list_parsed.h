#pragma once
// The parsed-listing cache of the FTP client: builds the item collection from the lines of the
// last listing on first use, with the owner's three hooks.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/list_items.h"

struct TIdFTPListEvents {
    // May supply the collection object (leave `list` empty to get a default one).
    std::function<void(std::unique_ptr<TIdFTPListItems>& list)> OnCreateFTPList;
    // Sees the first listing line and the detected format; may change the format.
    std::function<void(const std::string& line, TIdFTPListFormat& format)> OnCheckListFormat;
    // Parses one item when the format is lfCustom. When set, it is handed to the collection.
    TIdOnParseCustomListFormat OnParseCustomListFormat;
    // The lines are MLSD lines: parsed as such, without format detection or OnCheckListFormat.
    bool Mlsd = false;
};

// If `holder` already holds a collection it is returned unchanged. Otherwise one is obtained
// (OnCreateFTPList, else a new TIdFTPListItems), stored in `holder`, and filled from
// `lastListing`. Exceptions of OnCreateFTPList and OnCheckListFormat propagate; `holder` is then
// left empty, so the next call builds again instead of returning a half-made collection.
TIdFTPListItems& BuildParsedListing(std::unique_ptr<TIdFTPListItems>& holder,
                                    const std::vector<std::string>& lastListing, const TIdFTPListEvents& events);
