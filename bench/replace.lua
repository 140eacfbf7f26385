local s = "abcdefghij"
for _ = 1, 17 do s = s .. s end
local r
for _ = 1, 10 do r = string.gsub(s, "def", "XY") end
os.exit(#r & 255)
