<%
Function Down(n)
  Down = Down(n + 1)
End Function
On Error Resume Next
x = Down(1)
number = Err.Number
On Error GoTo 0
Err.Raise number
%>
