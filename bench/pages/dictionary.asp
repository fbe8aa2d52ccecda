<% ' 100,000 writes to a dictionary, then each key's value read back and summed.
Set d = Server.CreateObject("Scripting.Dictionary")
For i = 1 To 100000
  d(i) = i * 2
Next
total = 0
For Each k In d.Keys
  total = total + d(k)
Next
Response.Write total %>
