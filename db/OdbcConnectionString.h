#pragma once
// The ODBC connection string made from the four connection values:
//   DRIVER={SQL Server};SERVER=<server>;DATABASE=<catalog>;UID=<login>;PWD=<password>;
// Each value goes in as it stands ('}' and '=' included), except that a value containing ';',
// beginning with '{', or beginning or ending with a space, is enclosed in braces with every '}'
// doubled, so that no typed text can end its value early or add a keyword. Empty values stay empty ("UID=;"). The final ';' closes
// a braced password like any other value; FreeTDS 1.3 would otherwise keep its closing brace.
#include <string>

#include "db/Connection.h"

std::string OdbcConnectionString(const ConnectionParams& params);
