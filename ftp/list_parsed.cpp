#include "ftp/list_parsed.h"

#include "ftp/list_mlsd.h"

TIdFTPListItems& BuildParsedListing(std::unique_ptr<TIdFTPListItems>& holder,
                                    const std::vector<std::string>& lastListing, const TIdFTPListEvents& events) {
    if (holder) return *holder;
    try {
        if (events.OnCreateFTPList) events.OnCreateFTPList(holder);
        if (!holder) holder = std::make_unique<TIdFTPListItems>();
        if (events.OnParseCustomListFormat) holder->OnParseCustomListFormat = events.OnParseCustomListFormat;
        if (events.Mlsd) {
            LoadMlsdList(*holder, lastListing);
        } else if (!lastListing.empty()) {
            TIdFTPListFormat format = holder->DetectFormat(lastListing.front(), true);
            if (events.OnCheckListFormat) events.OnCheckListFormat(lastListing.front(), format);
            holder->CurrentFormat = format;
            holder->LoadList(lastListing);
        }
    } catch (...) {
        holder.reset();
        throw;
    }
    return *holder;
}
