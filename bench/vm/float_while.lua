local t = os.clock()
local x = 0.0
local i = 0
while i < 5000000 do
  x = x * 0.999 + 1.5 / (i + 1)
  i = i + 1
end
print(os.clock() - t)
