<%
' Released when the page ends, 20,000 levels deep.
For i = 1 To 20000 : a = Array(a) : Next
Response.Write "built"
%>
