#include <gtest/gtest.h>

#include "db/OdbcConnectionString.h"

TEST(OdbcConnectionString, PutsTheFourValuesInAndBracesOnlyWhatCouldBreakTheString) {
    struct Case {
        ConnectionParams params;
        const char* expected;
    };
    const Case cases[] = {
        {{"DBSRV", "Pallado", "pallado_user", "vermilion"},
         "DRIVER={SQL Server};SERVER=DBSRV;DATABASE=Pallado;UID=pallado_user;PWD=vermilion;"},
        {{"DBSRV\\SQLEXPRESS", "ZANT_Backup", "sa", "p w"},
         "DRIVER={SQL Server};SERVER=DBSRV\\SQLEXPRESS;DATABASE=ZANT_Backup;UID=sa;PWD=p w;"},
        {{"127.0.0.1,14331", "ZANT", "u", "a=b"},
         "DRIVER={SQL Server};SERVER=127.0.0.1,14331;DATABASE=ZANT;UID=u;PWD=a=b;"},
        {{"", "Pallado", "", ""}, "DRIVER={SQL Server};SERVER=;DATABASE=Pallado;UID=;PWD=;"},
        // A ';' would end the value early, a leading '{' would open a quoted one; a '}' or '{'
        // anywhere else is an ordinary character and goes in unchanged.
        {{"s", "c", "u", "pw;UID=sa"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD={pw;UID=sa};"},
        {{"s", "c", "u", "p}w=1"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD=p}w=1;"},
        {{"s", "c", "u", "a{b}"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD=a{b};"},
        {{"s", "c", "u", "{x"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD={{x};"},
        {{"s", "c", "u", "{a}b}"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD={{a}}b}}};"},
        {{"s", "c", "we;ird", "p"}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID={we;ird};PWD=p;"},
        {{"s;x", "c}", "u", "p"}, "DRIVER={SQL Server};SERVER={s;x};DATABASE=c};UID=u;PWD=p;"},
        // Leading and trailing spaces would be trimmed unless quoted.
        {{"s", "c", " u", "p "}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID={ u};PWD={p };"},
        {{"s", "c", "u", " "}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD={ };"},
        {{"s", "c", "u", " x;}y {z} "}, "DRIVER={SQL Server};SERVER=s;DATABASE=c;UID=u;PWD={ x;}}y {z}} };"},
    };
    // The string ends with ';' so that a braced last value is closed the same way as the others
    // (FreeTDS 1.3 keeps the closing brace of a braced value that ends the string).
    for (const Case& c : cases) {
        EXPECT_EQ(OdbcConnectionString(c.params), c.expected) << c.params.Password;
    }
}
