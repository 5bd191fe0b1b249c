var x : double; i : integer;
procedure Main;
begin
  x := 0;
  i := 0;
  while i < 5000000 do
  begin
    x := x * 0.999 + 1.5 / (i + 1);
    i := i + 1;
  end;
end;
