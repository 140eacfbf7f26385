-- table.sort of 100 thousand ints with a Lua comparer; the exit code is the median modulo 251, or
-- 255 when the order is wrong (the same data as qsort_thunk.qsrc).
local t, x = {}, 1
for i = 1, 100000 do
  x = (x * 1103515245 + 12345) & 0x3FFFFFFF
  t[i] = x
end
table.sort(t, function(a, b) return a < b end)
for i = 2, #t do
  if t[i - 1] > t[i] then os.exit(255) end
end
os.exit(t[50001] % 251)
