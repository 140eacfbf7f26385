local s, i = "", 0
while i < 20000 do
  s = s .. "abc"
  i = i + 1
end
os.exit(#s & 255)
