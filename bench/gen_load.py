#!/usr/bin/env python3
"""Writes a large program twice: as Qel authoring text (an image of about 10 MB of text) and as
the same program in Lua, for the image-load benchmark. Every method does the same work in both:
arithmetic on its parameters, a field update, a string, a loop and a call.

usage: gen_load.py CLASSES METHODS_PER_CLASS OUT.qsrc OUT.lua"""
import os
import sys

classes, per_class, qsrc, lua = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]

prelude = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "images", "prelude", "minimal.qsrc")
q = [f'#include "{prelude}"', "[METADATA]"]
for c in range(classes):
    q += [f"class CApplicationWidget{c} object 0 Bench", "0 1 i int FValue 0", "0 1 s string FName 0", "0 1 p pointer FOwner 0"]
q += ["[/METADATA]", "[SOURCE]"]
l = []
for c in range(classes):
    q += [f"method CApplicationWidget{c}::CApplicationWidget{c}.[a:1][m:0][p:00][r:v][v:]", "ret"]
    l += [f"local CApplicationWidget{c} = {{}}", f"CApplicationWidget{c}.__index = CApplicationWidget{c}"]
    for m in range(per_class):
        callee = f"CApplicationWidget{c}::HandleMessage{m - 1}" if m else None
        q += [f"method CApplicationWidget{c}::HandleMessage{m}.[a:1][m:1][p:02][r:i][v:iiiis]",
              "ldvint 0", "ldvint 1", "add", "stvint 2",
              "ldthis", f"ldpint CApplicationWidget{c}.FValue", "ldvint 2", "add", "ldthis", f"stpint CApplicationWidget{c}.FValue",
              f'ldstr "application widget {c} handles message {m}: its value"', "stvstr 4",
              "ldint 0", "stvint 3",
              "@loop:",
              "ldvint 2", "ldvint 3", "mul", "ldint 7", "band", "ldvint 2", "add", "stvint 2",
              "ldvstr 4", 'ldstr "."', "add", "stvstr 4",
              "inc_3", "ldvint 3", "ldint 4", "blt", "cmpjmp @loop",
              "ldvint 2", "ldint 100", "bgt", "cmp @small",
              "ldvint 2", "ldint 3", "rem", "stvint 2",
              "@small:"]
        if callee:
            q += ["ldvint 2", "ldvint 0", "ldthis", f"call {callee}", "ldvint 2", "add", "stvint 2"]
        q += ["ldvstr 4", "callstd Length", "ldvint 2", "add", "return"]
        l += [f"function CApplicationWidget{c}:HandleMessage{m}(a, b)",
              "  local c = a + b",
              "  self.value = self.value + c",
              f'  local s = "application widget {c} handles message {m}: its value"',
              "  for i = 0, 3 do",
              "    c = ((c * i) & 7) + c",
              '    s = s .. "."',
              "  end",
              "  if c > 100 then c = c % 3 end"]
        if callee:
            l += [f"  c = self:HandleMessage{m - 1}(a, c) + c"]
        l += ["  return #s + c", "end"]
q += ["method WinMain.[a:1][m:0][p:04][r:i][v:pppi]", "ldint 0", "return", "[/SOURCE]"]
l += ["return 0"]
with open(qsrc, "w") as f:
    f.write("\n".join(q) + "\n")
with open(lua, "w") as f:
    f.write("\n".join(l) + "\n")
