<%
Sub Again(n)
  Execute "Again n + 1"
End Sub
On Error Resume Next
Again 1
number = Err.Number
On Error GoTo 0
Err.Raise number
%>
