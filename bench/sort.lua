local t, x = {}, 1
for i = 1, 100000 do
  x = (x * 1103515245 + 12345) & 0xFFFFFFFF
  if x >= 0x80000000 then x = x - 0x100000000 end
  t[i] = tostring(x)
end
table.sort(t)
os.exit(0)
