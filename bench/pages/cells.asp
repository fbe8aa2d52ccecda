<% ' A row of ?n= cells built by appending to one string, as pages build tables.
n = CLng(Request.QueryString("n"))
t = ""
For i = 1 To n
  t = t & "<td>" & i & "</td>"
Next
Response.Write Len(t) %>
