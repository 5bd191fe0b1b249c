var s, i : integer;
function Add(a, b : integer) : integer;
begin
  result := a + b;
end;
procedure Main;
begin
  s := 0;
  for i := 1 to 1000000 do
    s := Add(s, i);
end;
