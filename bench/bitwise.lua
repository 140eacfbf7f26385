local x = 12345
for i = 0, 10000000 - 1 do x = (x ~ (i << 1)) & 65535 end
os.exit(x & 255)
