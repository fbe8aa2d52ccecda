<%
' A dictionary that holds itself and a drawing: the page's end frees both,
' so the next page draws on a fresh surface.
Set img = Server.CreateObject("Kelvane.Image")
img.PlotFillColor = RGB(255, 0, 0)
img.PenColor = RGB(255, 0, 0)
img.PlotSolidBox 0, 0, 299, 299
Set d = Server.CreateObject("Scripting.Dictionary")
Set d("self") = d
Set d("image") = img
Set img.PenStyle = d
Response.Write "drawn"
%>
