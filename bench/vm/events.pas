var i : integer;
procedure Main;
begin
  for i := 1 to 1000000 do
    SendEvent('E', i);
end;
