<%
' Outlines, hatch fills, and flood fills bounded by a black outline. A flood
' fill uses the fill settings the last drawing call applied, so each fill
' follows a drawing call made with its settings.
Dim img
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 240
img.PlotHeight = 160
img.PenColor = 0
img.PlotFillStyle = 1
img.PlotCircle 60, 80, 50
img.PlotFillStyle = 0
img.PlotFillColor = &H60B0F0
img.PlotLine 10, 80, 110, 80
img.FloodFill 60, 60, 0
img.PlotFillStyle = 7
img.PlotFillColor = &H2060C0
img.PlotLine 10, 80, 110, 80
img.FloodFill 60, 100, 0
img.PlotFillStyle = 6
img.PlotFillColor = &H208020
img.PlotBox 130, 20, 225, 70
img.PenStyle = 1
img.PlotFillStyle = 1
img.PlotBox 130, 90, 225, 140
img.SendImage
%>
