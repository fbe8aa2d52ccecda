<% ' Two million turns of a loop of integer arithmetic.
s = 0
For i = 1 To 2000000
  s = s + (i Mod 7) * 3
Next
Response.Write s %>
