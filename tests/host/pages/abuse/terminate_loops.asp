<%
Class Stubborn
  Sub Class_Terminate()
    Do : Loop
  End Sub
End Class
Set s = New Stubborn
%>
