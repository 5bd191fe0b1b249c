var n, i : integer; t : pchar;
function ExtStrLen(Text : pchar) : integer; external; cdecl; 'KelvoTestExt.lib';
procedure Main;
begin
  t := 'Болт М6 оцинкованный';
  n := 0;
  for i := 1 to 1000000 do
    n := n + ExtStrLen(t);
  if n <> 20000000 then SendEvent('WRONG', n);
end;
