local s = "a line of some text\r\n"
for _ = 1, 19 do s = s .. s end
local lines = {}
for line in string.gmatch(s, "([^\r\n]*)\r\n") do lines[#lines + 1] = line end
local back = table.concat(lines, "\r\n")
os.exit(#back & 255)
