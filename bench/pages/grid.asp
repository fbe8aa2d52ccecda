<% ' A two-dimensional array of 100 x 100, filled, then written as an HTML table.
Dim cells(99, 99)
For r = 0 To 99
  For c = 0 To 99
    cells(r, c) = r * 100 + c
  Next
Next
Response.Write "<table>"
For r = 0 To 99
  Response.Write "<tr>"
  For c = 0 To 99
    Response.Write "<td>" & cells(r, c) & "</td>"
  Next
  Response.Write "</tr>" & vbCrLf
Next
Response.Write "</table>" %>
