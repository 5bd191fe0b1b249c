var n, i, k : integer; t : pchar;
procedure Main;
begin
  t := 'Болт М6 оцинкованный';
  n := 0;
  k := 20;
  for i := 1 to 1000000 do
    n := n + k;
end;
