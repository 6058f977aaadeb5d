#pragma once
// The rule the log writer decides on before it reads or writes anything. Windows gives the path
// at which an opened file or folder actually lies, every link on the way followed (its final
// path). An item is the one its name names, and no link, when that final path is the final path
// of the folder it was opened in followed by its own name: a link at the item, or an item its name
// reaches elsewhere, gives another path, while links above that folder change both paths alike.
#include <string>

#include "base/Text.h"

// Whether final is parentFinal followed by name, compared as Windows compares names: the
// "\\?\" and "\\?\UNC\" forms as the plain drive and "\\server" forms, "/" as "\", a trailing
// separator dropped, single-byte characters in either case by lower, a double-byte character
// only as the same two bytes. A name that is empty, "." or "..", or holds a separator, names no
// item of the folder.
bool IsFinalPathOfChild(const std::string& final, const std::string& parentFinal, const std::string& name,
                        LeadByteTest lead, LowerCaseFn lower);
