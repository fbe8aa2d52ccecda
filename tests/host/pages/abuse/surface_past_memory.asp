<%
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 8000
img.PlotHeight = 8000
img.PlotPixel 1, 1
%>
