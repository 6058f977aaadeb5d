#pragma once
// The release's schema-change batch, as the stand-in recognises it: 15 lines, each ending in
// CR LF, indented with tabs only, 627 characters in all. Only this exact text changes the
// stand-in's catalogs; any other batch is journaled and answered with success.
#include <string>

inline const std::string& SchemaChangeBatch() {
    static const std::string text = [] {
        struct Line {
            int tabs;
            const char* text;
        };
        // clang-format off
        static const Line lines[] = {
            {0, "IF EXISTS (SELECT * FROM DBO.SYSCOLUMNS WHERE ([NAME] = 'LOCATION') AND ([PREC] < 140) AND ([ID] = OBJECT_ID(N'[DBO].[PORT]')))"},
            {0, "BEGIN"},
            {1, "IF EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and ([ID] = OBJECT_ID(N'[DBO].[PORT]')))"},
            {1, "BEGIN"},
            {2, "DROP INDEX [DBO].[PORT].IX_PORT_LOCATION"},
            {1, "END"},
            {0, ""},
            {1, "ALTER TABLE [DBO].[PORT]"},
            {1, "ALTER COLUMN [LOCATION] [NVARCHAR] (140) COLLATE Latin1_General_CI_AS NOT NULL"},
            {0, ""},
            {1, "IF NOT EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and ([ID] = OBJECT_ID(N'[DBO].[PORT]')))"},
            {1, "BEGIN"},
            {2, "CREATE INDEX IX_PORT_LOCATION ON [DBO].[PORT] (Location)"},
            {1, "END"},
            {0, "END"},
        };
        // clang-format on
        std::string s;
        for (const Line& l : lines) s += std::string(l.tabs, '\t') + l.text + "\r\n";
        return s;
    }();
    return text;
}
