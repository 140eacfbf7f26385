local Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({total = 0}, Counter) end
function Counter.add(self, n) self.total = self.total + n end
local c = Counter.new()
local i = 0
while i < 3000000 do
  Counter.add(c, i)
  i = i + 1
end
os.exit(c.total & 255)
