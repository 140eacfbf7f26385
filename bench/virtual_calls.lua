local Counter = {}
Counter.__index = Counter
function Counter.add(self, n) self.total = self.total + n end
local Derived = setmetatable({}, {__index = Counter})
Derived.__index = Derived
local c = setmetatable({total = 0}, Derived)
local i = 0
while i < 3000000 do
  c:add(i)
  i = i + 1
end
os.exit(c.total & 255)
