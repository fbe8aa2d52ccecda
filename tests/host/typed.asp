<%
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 8
img.PlotHeight = 8
img.ImageType = Request.QueryString("type")
img.PlotPixel 1, 1
img.SendImage
%>
