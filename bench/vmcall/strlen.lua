local t = os.clock()
local s = "\xC1\xEE\xEB\xF2 \xCC6 \xEE\xF6\xE8\xED\xEA\xEE\xE2\xE0\xED\xED\xFB\xE9"
local len = string.len
local n = 0
for i = 1, 1000000 do
  n = n + len(s)
end
assert(n == 20000000)
print(os.clock() - t)
