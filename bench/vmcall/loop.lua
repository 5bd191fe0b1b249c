local t = os.clock()
local k = 20
local n = 0
for i = 1, 1000000 do
  n = n + k
end
assert(n == 20000000)
print(os.clock() - t)
