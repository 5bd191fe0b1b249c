local t0 = os.clock()
local a = {}
local n = 3000
for i = 0, n - 1 do
  a[i] = n - i
end
for i = 0, n - 2 do
  for j = 0, n - 2 - i do
    if a[j] > a[j + 1] then
      local t = a[j]
      a[j] = a[j + 1]
      a[j + 1] = t
    end
  end
end
print(os.clock() - t0)
