local p = {x = 0, y = 0}
for i = 0, 5000000 - 1 do
  p.y = p.x + p.y
  p.x = i
end
os.exit(p.y & 255)
