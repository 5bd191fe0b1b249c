local t = os.clock()
local function handler(name, i) end
for i = 1, 1000000 do
  handler("E", i)
end
print(os.clock() - t)
