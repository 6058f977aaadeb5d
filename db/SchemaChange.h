#pragma once
// The release's one schema change: widen PORT.LOCATION to 140 Unicode characters and rebuild its
// index. Sent to each catalog unchanged as one batch (tabs for indentation, CR LF after every line).
// Harmless on a catalog that is already upgraded or has no PORT table.

inline constexpr char SchemaChangeBatch[] =
    "IF EXISTS (SELECT * FROM DBO.SYSCOLUMNS WHERE ([NAME] = 'LOCATION') AND ([PREC] < 140) AND ([ID] = OBJECT_ID(N'[DBO].[PORT]')))\r\n"
    "BEGIN\r\n"
    "\tIF EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and ([ID] = OBJECT_ID(N'[DBO].[PORT]')))\r\n"
    "\tBEGIN\r\n"
    "\t\tDROP INDEX [DBO].[PORT].IX_PORT_LOCATION\r\n"
    "\tEND\r\n"
    "\r\n"
    "\tALTER TABLE [DBO].[PORT]\r\n"
    "\tALTER COLUMN [LOCATION] [NVARCHAR] (140) COLLATE Latin1_General_CI_AS NOT NULL\r\n"
    "\r\n"
    "\tIF NOT EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and ([ID] = OBJECT_ID(N'[DBO].[PORT]')))\r\n"
    "\tBEGIN\r\n"
    "\t\tCREATE INDEX IX_PORT_LOCATION ON [DBO].[PORT] (Location)\r\n"
    "\tEND\r\n"
    "END\r\n";

static_assert(sizeof(SchemaChangeBatch) - 1 == 627, "the batch is 627 characters");
