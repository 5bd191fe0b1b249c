var a : array of integer; i, j, n, t : integer;
procedure Main;
begin
  n := 3000;
  for i := 0 to n - 1 do
    a[i] := n - i;
  for i := 0 to n - 2 do
    for j := 0 to n - 2 - i do
      if a[j] > a[j + 1] then
      begin
        t := a[j];
        a[j] := a[j + 1];
        a[j + 1] := t;
      end;
end;
