var s : pchar; i : integer;
procedure Main;
begin
  s := '';
  for i := 1 to 100000 do
    s := s + 'x';
end;
