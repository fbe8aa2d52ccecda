<%
' Each call is made from the bottom of a 900-level sum: far fewer calls than
' the language's limit of nesting exhaust the stack, and must end in 28.
Function F(n)
  If n = 0 Then F = 0 Else Execute "F = F(n - 1)" & Replace(Space(900), " ", " + 1")
End Function
Response.Write F(399)
%>
