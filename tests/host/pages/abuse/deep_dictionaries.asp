<%
' 20,000 dictionaries, each holding the one before, released at the end.
Set d = Server.CreateObject("Scripting.Dictionary")
For i = 1 To 20000
  Set outer = Server.CreateObject("Scripting.Dictionary")
  outer.Add "inner", d
  Set d = outer
Next
Set outer = Nothing
Response.Write "built"
%>
