/* The exports of the script runtime library "Runtime.lib" with their C signatures on x86-64
 * Linux. docs/runtime-abi.md gives the rules behind them: which C type stands for which script
 * type, how long returned texts stay valid, and how failures reach the machine.
 *
 *   Integer   -> int32_t            Double, TDATETIME -> double (TDATETIME: days since 30.12.1899)
 *   Boolean   -> uint8_t (0 or 1)   Text (PCHAR)      -> const char*, NUL-terminated cp1251
 *   procedure -> void               Variant           -> never passed (the machine refuses it)
 */
#ifndef ZENTRA_RUNTIME_ABI_H
#define ZENTRA_RUNTIME_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Error channel and end of run. */
const char* Kr_LastError(void);
void Kr_EndRun(void);

/* Messages and progress windows. */
void ShowMessage(const char* Text, const char* Title);
int32_t StartVisual(const char* Message);
void StopVisual(int32_t VisualWnd);

/* Strings. */
int32_t StrLen(const char* Text);
const char* Trim(const char* Str);
const char* TrimLeft(const char* Str);
const char* TrimRight(const char* Str);
const char* GetCharInStr(const char* Str, int32_t Index);
const char* StrUpperCase(const char* Str);
const char* StrLowerCase(const char* Str);
const char* Chr(int32_t Key);

/* Queries. */
int32_t Query_Create(const char* DB_Driver, const char* DB_Params, const char* Sql);
void Query_Free(int32_t Handle);
uint8_t Query_Execute(int32_t Handle);
uint8_t Query_EOF(int32_t Handle);
uint8_t Query_BOF(int32_t Handle);
void Query_First(int32_t Handle);
void Query_Last(int32_t Handle);
void Query_Next(int32_t Handle);
void Query_Prior(int32_t Handle);
int32_t Query_RecordCount(int32_t Handle);
int32_t Query_FieldCount(int32_t Handle);
int32_t Query_ParamCount(int32_t Handle);
const char* FieldNameByIndex(int32_t Handle, int32_t ID);
const char* Field_AsPChar(int32_t Handle, int32_t Index);
int32_t Field_AsInteger(int32_t Handle, int32_t Index);
double Field_AsDouble(int32_t Handle, int32_t Index);
void Param_AsPChar(int32_t Handle, int32_t Index, const char* Value);
void Param_AsInteger(int32_t Handle, int32_t Index, int32_t Value);
void Param_AsDouble(int32_t Handle, int32_t Index, double Value);

/* Conversions. */
const char* IntToStr(int32_t Value);
const char* IntToText(int32_t Value);
int32_t StrToIntDef(const char* Value, int32_t DefValue);
const char* FloatToStr(double Value);
const char* FloatToText(double Value);
double StrToFloat(const char* Value);
double StrToFloatDef(const char* Value, double DefValue);
const char* DateToStr(double Value);
double StrToDate(const char* Value);
double Round(double Value, int32_t RoundCount, const char* TxtRoundStyle);

/* Files. Handles are the library's own numbers, never operating-system descriptors. */
int32_t FileOpen(const char* FileName, int32_t Mode);
void FileClose(int32_t Handle);
int32_t FileCreate(const char* FileName);
int32_t FileSeek(int32_t Handle, int32_t Offset, int32_t Origin);
int32_t FileRead(int32_t Handle, char* Buffer, int32_t Count);
int32_t FileWrite(int32_t Handle, const char* Buffer, int32_t Count);
uint8_t FileDelete(const char* FileName);
uint8_t FileExists(const char* FileName);

/* Memory. */
const char* GetMem(int32_t Size);
void FreeMem(const char* Address);

/* Dialog windows (not available yet: every call fails through Kr_LastError). */
int32_t DialogCreate(const char* Caption, const char* Source);
int32_t DialogCreateEx(const char* Caption, const char* Source, const char* Connection);
int32_t DialogShowModal(int32_t Handle);
void DialogFree(int32_t Handle);
const char* DialogParamAsString(int32_t Handle, const char* Name);
uint8_t DialogParamAsBoolean(int32_t Handle, const char* Name);
int32_t DialogParamAsInteger(int32_t Handle, const char* Name);
double DialogParamAsDouble(int32_t Handle, const char* Name);
void DialogSetParamAsDouble(int32_t Handle, const char* Name, double Value);
void DialogSetParamAsString(int32_t Handle, const char* Name, const char* Value);
void DialogSetParamAsInteger(int32_t Handle, const char* Name, int32_t Value);
void DialogSetParamAsBoolean(int32_t Handle, const char* Name, uint8_t Value);

/* Dates (TDATETIME values). */
double NowDate(void);
const char* MonthToStr(int32_t M);
const char* MonthToStrEx(int32_t M);
double GetFirstDate(double Date);
double GetLastDate(double Date);
int32_t SubYear(double Date);
int32_t SubMonth(double Date);
int32_t SubDay(double Date);
double EncodeDate(int32_t FYear, int32_t FMonth, int32_t FDay);

#ifdef __cplusplus
}
#endif

#endif
