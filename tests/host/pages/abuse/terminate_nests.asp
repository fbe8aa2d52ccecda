<%
' Each terminator makes another object of its class, which dies as the
' terminator ends: the nesting stops at the call depth limit.
Class Phoenix
  Sub Class_Terminate()
    Dim heir
    Set heir = New Phoenix
  End Sub
End Class
Set p = New Phoenix
Set p = Nothing
Response.Write "survived"
%>
