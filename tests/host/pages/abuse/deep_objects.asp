<%
' A chain of 20,000 objects, each holding the next, released at the end.
Class Link
  Public nextLink
End Class
Set head = Nothing
For i = 1 To 20000
  Set link = New Link
  Set link.nextLink = head
  Set head = link
Next
Set link = Nothing
Response.Write "built"
%>
