<%
' A small picture sent as a Windows bitmap.
Dim img
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 120
img.PlotHeight = 90
img.PenColor = &HC0
img.PlotSolidBox 0, 0, 119, 89
img.PenColor = &HFFFFFF
img.PenWidth = 3
img.PlotLine 10, 80, 110, 10
img.PlotFillColor = &HC0FF&
img.PlotSolidCircle 60, 45, 20
img.ImageType = "BMP"
img.SendImage
%>
