<%
' Released when the page ends, 200,000 levels deep.
For i = 1 To 200000 : a = Array(a) : Next
Response.Write "built"
%>
