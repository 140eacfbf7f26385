local parts = {}
for i = 1, 40000 do parts[#parts + 1] = "abc" end
local s = table.concat(parts)
os.exit(#s & 255)
