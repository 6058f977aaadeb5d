#include "log/FinalPath.h"

#include "settings/PathRules.h"

namespace {

// The path in one form: no long-path prefix, "\" for "/", single-byte characters in lower case,
// no trailing separator.
std::string Plain(const std::string& path, LeadByteTest lead, LowerCaseFn lower) {
    std::string s = path;
    if (s.compare(0, 8, "\\\\?\\UNC\\") == 0) s = "\\\\" + s.substr(8);
    else if (s.compare(0, 4, "\\\\?\\") == 0) s = s.substr(4);
    std::string out;
    ForEachCharacter(s, lead, [&](std::size_t i) {
        if (CharacterLength(s, i, lead) == 2) out.append(s, i, 2);
        else out += s[i] == '/' ? std::string("\\") : lower(s.substr(i, 1));
    });
    return StripTrailingBackslash(out, lead);
}

}  // namespace

bool IsFinalPathOfChild(const std::string& final, const std::string& parentFinal, const std::string& name,
                        LeadByteTest lead, LowerCaseFn lower) {
    if (name.empty() || name == "." || name == ".." || FileNamePart(name, lead) != name ||
        FindCharacter(name, '/', lead) != std::string::npos)
        return false;
    const std::string parent = Plain(parentFinal, lead, lower);
    return !parent.empty() && Plain(final, lead, lower) == parent + "\\" + Plain(name, lead, lower);
}
