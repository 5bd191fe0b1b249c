// Ѕиблиотека сценариев отчЄтов.  омпилируетс€ перед каждым сценарием отчЄта:
// константы результатов диалогов, текуща€ €чейка, внешние процедуры Runtime.lib
// и процедуры, которые посылают событи€ отчЄта документу.
CONST
  doNone = 0;
  doClose = 1;
  doYes_Close = 2;
  doNo_Close = 3;
  doCancel_Close = 4;

VAR
  ActiveCol, ActiveRow : INTEGER;

// —обытие отчЄта: им€ событи€ и переменные, которые передаютс€ вместе с ним.
FUNCTION SendEvent(EventName : PCHAR; Params : VARIANT) : VARIANT; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE ShowMessage(Text, Title : PCHAR); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StartVisual(Message : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE StopVisual(VisualWnd : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrLen(Text : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Trim(Str : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION TrimLeft(Str : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION TrimRight(Str : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION GetCharInStr(Str : PCHAR; Index : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrUpperCase(Str : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrLowerCase(Str : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Chr(Key : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_Create(DB_Driver, DB_Params, Sql : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Query_Free(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_Execute(Handle : INTEGER) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_EOF(Handle : INTEGER) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_BOF(Handle : INTEGER) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Query_First(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Query_Last(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Query_Next(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Query_Prior(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_RecordCount(Handle : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_FieldCount(Handle : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Query_ParamCount(Handle : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FieldNameByIndex(Handle, ID : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Field_AsPChar(Handle, Index : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Field_AsInteger(Handle, Index : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Field_AsDouble(Handle, Index : INTEGER) : DOUBLE; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Param_AsPChar(Handle, Index : INTEGER; Value : PCHAR); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Param_AsInteger(Handle, Index : INTEGER; Value : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE Param_AsDouble(Handle, Index : INTEGER; Value : DOUBLE); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION IntToStr(Value : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION IntToText(Value : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrToIntDef(Value : PCHAR; DefValue : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FloatToStr(Value : DOUBLE) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FloatToText(Value : DOUBLE) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrToFloat(Value : PCHAR) : DOUBLE; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrToFloatDef(Value : PCHAR; DefValue : DOUBLE) : DOUBLE; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DateToStr(Value : TDATETIME) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION StrToDate(Value : PCHAR) : TDATETIME; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION Round(Value : DOUBLE; RoundCount : INTEGER; TxtRoundStyle : PCHAR) : DOUBLE; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileOpen(FileName : PCHAR; Mode : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE FileClose(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileCreate(FileName : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileSeek(Handle, Offset, Origin : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileRead(Handle : INTEGER; Buffer : PCHAR; Count : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileWrite(Handle : INTEGER; Buffer : PCHAR; Count : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileDelete(FileName : PCHAR) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION FileExists(FileName : PCHAR) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION GetMem(Size : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE FreeMem(Address : PCHAR); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogCreate(Caption, Source : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogCreateEx(Caption, Source, Connection : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogShowModal(Handle : INTEGER) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE DialogFree(Handle : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogParamAsString(Handle : INTEGER; Name : PCHAR) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogParamAsBoolean(Handle : INTEGER; Name : PCHAR) : BOOLEAN; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogParamAsInteger(Handle : INTEGER; Name : PCHAR) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION DialogParamAsDouble(Handle : INTEGER; Name : PCHAR) : DOUBLE; EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE DialogSetParamAsDouble(Handle : INTEGER; Name : PCHAR; Value : DOUBLE); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE DialogSetParamAsString(Handle : INTEGER; Name : PCHAR; Value : PCHAR); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE DialogSetParamAsInteger(Handle : INTEGER; Name : PCHAR; Value : INTEGER); EXTERNAL; STDCALL; 'Runtime.lib';
PROCEDURE DialogSetParamAsBoolean(Handle : INTEGER; Name : PCHAR; Value : BOOLEAN); EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION NowDate : TDATETIME; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION MonthToStr(M : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION MonthToStrEx(M : INTEGER) : PCHAR; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION GetFirstDate(Date : TDATETIME) : TDATETIME; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION GetLastDate(Date : TDATETIME) : TDATETIME; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION SubYear(Date : TDATETIME) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION SubMonth(Date : TDATETIME) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION SubDay(Date : TDATETIME) : INTEGER; EXTERNAL; STDCALL; 'Runtime.lib';
FUNCTION EncodeDate(FYear, FMonth, FDay : INTEGER) : TDATETIME; EXTERNAL; STDCALL; 'Runtime.lib';

// “екст €чейки (Col, Row); -1 означает текущий столбец или строку.
FUNCTION CellText(Col, Row : INTEGER) : PCHAR;
BEGIN
  IF Col = -1 THEN Col := ActiveCol;
  IF Row = -1 THEN Row := ActiveRow;
  Result := SendEvent('GETCELLVALUE', Col, Row)
END;

// ÷елое значение €чейки (Col, Row), 0 если в €чейке не число.
FUNCTION CellInt(Col, Row : INTEGER) : INTEGER;
BEGIN
  IF Col = -1 THEN Col := ActiveCol;
  IF Row = -1 THEN Row := ActiveRow;
  Result := StrToIntDef(SendEvent('GETCELLVALUE', Col, Row), 0)
END;

// „исловое значение €чейки (Col, Row).
FUNCTION CellFloat(Col, Row : INTEGER) : DOUBLE;
BEGIN
  IF Col = -1 THEN Col := ActiveCol;
  IF Row = -1 THEN Row := ActiveRow;
  Result := StrToFloat(SendEvent('GETCELLVALUE', Col, Row))
END;

PROCEDURE NewLine;
BEGIN
  SendEvent('NewLine')
END;

PROCEDURE NewRow;
BEGIN
  SendEvent('NewRow')
END;

PROCEDURE NewPage;
BEGIN
  SendEvent('NewPage')
END;

PROCEDURE AbortShowReport;
BEGIN
  SendEvent('AbortShowReport')
END;

PROCEDURE StartHeader;
BEGIN
  SendEvent('StartHeader')
END;

PROCEDURE CommitHeader(GroupNames : PCHAR);
BEGIN
  SendEvent('CommitHeader', GroupNames)
END;

PROCEDURE StartFixedCol;
BEGIN
  SendEvent('StartFixedCol')
END;

PROCEDURE CommitFixedCol(FirstCol, LastCol : PCHAR);
BEGIN
  SendEvent('CommitFixedCol', FirstCol, LastCol)
END;

PROCEDURE StartRow(iRow : INTEGER);
BEGIN
  SendEvent('StartRow', iRow)
END;

PROCEDURE StartCol(iCol : INTEGER);
BEGIN
  SendEvent('StartCol', iCol)
END;

FUNCTION GetActiveRow : INTEGER;
BEGIN
  Result := SendEvent('GetRow')
END;

FUNCTION GetActiveCol : INTEGER;
BEGIN
  Result := SendEvent('GetCol')
END;
