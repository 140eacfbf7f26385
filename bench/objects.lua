local Node = {}
Node.__index = Node
function Node.new(v) return setmetatable({value = v, name = ""}, Node) end
local sum = 0
for i = 0, 1000000 - 1 do
  local n = Node.new(i)
  sum = sum + n.value
end
os.exit(sum & 255)
