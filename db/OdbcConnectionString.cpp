#include "db/OdbcConnectionString.h"

namespace {

std::string Value(const std::string& value) {
    const bool quote = value.find(';') != std::string::npos ||
                       (!value.empty() && (value.front() == '{' || value.front() == ' ' || value.back() == ' '));
    if (!quote) return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

}  // namespace

std::string OdbcConnectionString(const ConnectionParams& params) {
    return "DRIVER={SQL Server};SERVER=" + Value(params.Server) + ";DATABASE=" + Value(params.Catalog) +
           ";UID=" + Value(params.User) + ";PWD=" + Value(params.Password) + ";";
}
