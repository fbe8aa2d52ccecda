<%
' Run after every abuse page on the same thread, beside probe.ksp: it must
' find no global of an earlier page and the application's values free to
' write, and it sends the fresh surface as a BMP.
If Not IsEmpty(secret) Then Err.Raise 5, "probe", "a global of an earlier page survived"
Application("probe") = 1
Set img = Server.CreateObject("Kelvane.Image")
img.ImageType = "bmp"
img.SendImage
%>
