<%
' A bar chart of the comma-separated values in ?values=, titled by ?title=.
Option Explicit
Dim text, values, title, width, height, img, top, slot, i, x, h, colours
text = Request.QueryString("values")
If IsEmpty(text) Then text = "5,8,3"
values = Split(text, ",")
For i = 0 To UBound(values)
  If IsNumeric(values(i)) Then values(i) = CDbl(values(i)) Else values(i) = 0
Next
title = Request.QueryString("title")
If IsEmpty(title) Then title = "Chart"
width = 320 : height = 200
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = width
img.PlotHeight = height
img.GradientT2B &HFFFFFF, &HE8E0D8&
img.PenColor = &H404040
img.PlotLine 30, 20, 30, height - 25
img.PlotLine 30, height - 25, width - 10, height - 25
top = 1
For i = 0 To UBound(values)
  If values(i) > top Then top = values(i)
Next
slot = (width - 50) \ (UBound(values) + 1)
colours = Array(&HC08040, &H4080C0, &H40A060, &H6060D0)
For i = 0 To UBound(values)
  x = 35 + i * slot
  h = Int(values(i) / top * (height - 60))
  img.PenColor = &H303030
  img.PlotFillColor = colours(i Mod 4)
  img.PlotFillStyle = 0
  img.PlotBox x, height - 26 - h, x + slot - 8, height - 26
  img.PlotFontSize = 8
  img.PlotText x, height - 40 - h, CStr(values(i))
Next
img.PlotFontSize = 11
img.PlotFontBold = True
img.PlotText 40, 2, title
img.SendImage
%>
