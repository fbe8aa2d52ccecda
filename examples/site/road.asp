<%
' The road of one request: size, pen and font, a gradient, text, the logo,
' and the picture sent as JPEG.
Dim img
Set img = Server.CreateObject("Kelvane.Image")
img.PlotWidth = 200
img.PlotHeight = 100
img.PenColor = &HFFFFFF
img.PlotFontName = "Arial"
img.PlotFontSize = 14
img.PlotFontBold = True
img.GradientL2R &H7A3A10, &HE0B040
img.PlotText 80, 38, "Kelvane"
img.PasteLogo
img.ImageType = "jpg"
img.SendImage
%>
