// Order lines: prints one LINE event per position, then the totals.
var
  Names : array of pchar;
  Counts : array of integer;
  NAME : pchar;
  QTY, Total : double;
  Positions : integer;

// Fills the positions of the order.
procedure Fill;
var Unused : integer;
begin
  Names[0] := 'Болт М6';
  Counts[0] := 10;
  Names[1] := 'Гайка';
  Counts[1] := 25;
  Names[2] := 'Shim';
  Counts[2] := 0;
  Positions := Names.Count;
end;

// One line of the report for position i.
procedure EmitLine(i : integer);
begin
  NAME := Names[i];
  QTY := Counts[i] * 1.5;
  if QTY > 0 then
    SendEvent('LINE', NAME, QTY)
  else
    SendEvent('SKIP', NAME);
  Total := Total + QTY;
end;

procedure Main;
var i : integer;
begin
  Fill;
  for i := 0 to Positions - 1 do
    EmitLine(i);
  i := 3;
  while i > 0 do
  begin
    i := i - 1;
    NAME := NAME + '*';
  end;
  SendEvent('TOTAL', Total, NAME);
end;
