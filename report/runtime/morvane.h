/* The database driver library "Morvane.dll": a versioned C interface over the Firebird layer.
 *
 * Callers (the script runtime library "Runtime.lib", later the script dialogs) load the library
 * with dlopen, resolve Morvane_GetApi and ask for the version they were written against. A
 * later version may add members at the end of the table; existing members never change, so a
 * caller of version 1 keeps working with a library that also offers version 2.
 *
 * Every routine is extern "C" and never throws. Connections and statements are small positive
 * integers looked up in tables, so a stale or foreign handle fails with -1 instead of touching
 * freed memory. A routine that fails returns -1 (or a null pointer) and leaves the engine's
 * message in last_error(); a routine that succeeds clears it. Texts are NUL-terminated bytes in
 * the connection's character set (report code connects with "WIN1251").
 */
#ifndef ZENTRA_MORVANE_H
#define ZENTRA_MORVANE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MORVANE_API_VERSION 1

/* Kind of a column value in the current row. */
enum MorvaneValueKind {
    MORVANE_NULL = 0,
    MORVANE_INTEGER = 1, /* SMALLINT, INTEGER, BIGINT: column_int64 */
    MORVANE_DOUBLE = 2,  /* FLOAT, DOUBLE PRECISION, NUMERIC/DECIMAL with scale: column_double */
    MORVANE_TEXT = 3,    /* CHAR, VARCHAR, text and binary BLOBs: column_text */
    MORVANE_DATE = 4,    /* DATE, TIME, TIMESTAMP: column_double gives days since 30.12.1899 */
    MORVANE_BOOLEAN = 5  /* BOOLEAN: column_int64 gives 0 or 1 */
};

typedef struct MorvaneApiV1 {
    uint32_t version; /* MORVANE_API_VERSION of the table handed out */
    uint32_t size;    /* sizeof the table, for callers that check */

    /* Opens a connection (a file path opens the file with the embedded engine, host:path reaches
     * a server). Returns a connection handle > 0, or -1. */
    int32_t (*connect)(const char* database, const char* user, const char* password,
                       const char* charset);
    /* Rolls back what is not committed, detaches and frees the connection's statements. */
    int32_t (*disconnect)(int32_t connection);

    /* Prepares SQL with ":name" markers. Every occurrence of a marker outside literals, quoted
     * names and comments is one positional parameter, numbered from 0 in order of appearance,
     * so ":a ... :a" gives two parameters. Returns a statement handle > 0, or -1. */
    int32_t (*prepare)(int32_t connection, const char* sql);
    int32_t (*param_count)(int32_t statement);
    /* Bind parameter `index` (from 0). An unbound parameter is NULL. */
    int32_t (*bind_null)(int32_t statement, int32_t index);
    int32_t (*bind_int64)(int32_t statement, int32_t index, int64_t value);
    int32_t (*bind_double)(int32_t statement, int32_t index, double value);
    int32_t (*bind_text)(int32_t statement, int32_t index, const char* value);

    /* Runs the statement. A select opens its cursor for fetch(); anything else is committed
     * (commit retaining) when it succeeds. Returns 0 or -1. */
    int32_t (*execute)(int32_t statement);
    /* 1: a row is current; 0: no more rows; -1: error. */
    int32_t (*fetch)(int32_t statement);
    /* 1 for a select (rows come through fetch), 0 otherwise, -1 for a bad handle. */
    int32_t (*is_select)(int32_t statement);
    int64_t (*rows_affected)(int32_t statement);

    int32_t (*column_count)(int32_t statement);
    /* Valid until the statement is closed. */
    const char* (*column_name)(int32_t statement, int32_t index);
    /* Kind of the value in the current row (MorvaneValueKind), -1 for a bad handle or index. */
    int32_t (*column_kind)(int32_t statement, int32_t index);
    int64_t (*column_int64)(int32_t statement, int32_t index);
    double (*column_double)(int32_t statement, int32_t index);
    /* Bytes of a text value and their number (texts may hold NUL bytes only as BLOBs). Valid
     * until the next fetch or close of the statement. */
    const char* (*column_text)(int32_t statement, int32_t index, int32_t* length);

    int32_t (*close_statement)(int32_t statement);
    /* The message of the last failure on this thread, "" after a success. */
    const char* (*last_error)(void);
} MorvaneApiV1;

/* The interface table of `version`, or a null pointer when the library does not offer it. */
const void* Morvane_GetApi(int32_t version);

/* Look-up window of the script dialogs: shows the rows of Sql on DBConnection and lets the user
 * choose; returns 1 when something was chosen (its text then in *TextBuffer, at most 10240 bytes
 * with the NUL, and its key fields in *ResultBuffer, at most 8192 bytes). The window arrives
 * with the script dialogs; until then the routine returns 0 and leaves the buffers untouched. */
uint8_t DBExecuteVocab(const char* Caption, const char* DBConnection, const char* Fields,
                       const char* Sql, uint8_t MultiSelect, char** ResultBuffer,
                       char** TextBuffer);

#ifdef __cplusplus
}
#endif

#endif
